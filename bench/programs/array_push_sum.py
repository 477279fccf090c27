"""Fills an array with 1,000,000 integers by append and sums it with a for loop."""


def main():
    a = []
    for i in range(1, 1000000 + 1):
        a.append(i)
    total = 0
    for v in a:
        total += v
    print(total)


main()
