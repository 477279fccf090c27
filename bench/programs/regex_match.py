"""A regular-expression search with two groups on 200,000 short texts; prints
the sum of both groups' numbers over all texts."""
import re


def main():
    pattern = re.compile(r"(\d+)-(\d+)")
    total = 0
    for i in range(1, 200000 + 1):
        m = pattern.search("id" + str(i) + "-" + str(i * 3) + ";")
        total += int(m.group(1)) + int(m.group(2))
    print(total)


main()
