"""Reads the loop counter (A_Index) 1,000,000 times; prints the count of reads."""
from time import monotonic, strftime


def main():
    y = 5
    n = 0
    for i in range(1, 1000000 + 1):
        x = i
        n += 1
    print(n)


main()
