"""A regular-expression substitution on a 1,048,576-character text, a hundred
times: every "no," becomes "No;;" through a group reference; prints the sum
of the replacement counts and result lengths."""
import re


def main():
    s = "abcdefghijklmno,"
    for _ in range(16):
        s += s
    pattern = re.compile(r"n(o),")
    total = 0
    for _ in range(100):
        r, n = pattern.subn(r"N\1;;", s)
        total += n + len(r)
    print(total)


main()
