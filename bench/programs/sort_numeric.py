"""Numeric sort of 200,000 lines of text (distinct values in scrambled
order), the result joined back into text; prints the first, middle and last
line of the result."""


def main():
    count = 200000
    text = "\n".join(str(i * 7919 % 1000003) for i in range(1, count + 1))
    lines = text.split("\n")
    lines.sort(key=int)
    text = "\n".join(lines)
    lines = text.split("\n")
    print(lines[0], lines[count // 2 - 1], lines[count - 1])


main()
