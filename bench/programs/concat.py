"""Builds a 3,000,000-character string one character at a time and prints it."""


def main():
    s = ""
    for _ in range(3000000):
        s += "x"
    print(s)


main()
