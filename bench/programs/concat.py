"""Builds a 1,000,000-character string one character at a time and prints it."""


def main():
    s = ""
    for _ in range(1000000):
        s += "x"
    print(s)


main()
