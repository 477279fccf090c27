"""Adds the loop counter to a variable 20,000,000 times and prints the sum."""


def main():
    x = 0
    for i in range(1, 20000000 + 1):
        x += i
    print(x)


main()
