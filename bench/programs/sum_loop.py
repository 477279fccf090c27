"""Adds the loop counter to a variable 10,000,000 times and prints the sum."""


def main():
    x = 0
    for i in range(1, 10000000 + 1):
        x += i
    print(x)


main()
