"""StrSplit of a comma-separated text of two hundred thousand fields (1,000,000
characters) and a loop over the parts; prints the part count and the total
length of the parts."""


def main():
    pieces = []
    for _ in range(200000):
        pieces.append("abcd,")
    s = "".join(pieces)
    parts = s.split(",")
    total = 0
    for part in parts:
        total += len(part)
    print(len(parts), total)


main()
