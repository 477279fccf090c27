"""A loop over the lines of a text file of two hundred thousand lines (written
by the runner), counting the lines that contain a word; prints the count."""


def main():
    expected = 200000
    lines = 0
    found = 0
    with open("lines.txt", encoding="utf-8") as handle:
        for line in handle:
            lines += 1
            if "needle" in line:
                found += 1
    print(found if lines == expected else f"read {lines} lines")


main()
