"""Reading a text file of two hundred thousand lines (written by the runner)
whole, splitting it into lines and counting the lines that contain a word;
prints the count."""


def main():
    expected = 200000
    with open("lines.txt", encoding="utf-8") as handle:
        text = handle.read()
    lines = text.split("\n")
    found = 0
    for line in lines:
        if "needle" in line:
            found += 1
    # The text ends with a line feed: the last part is empty.
    print(found if len(lines) == expected + 1 else f"split {len(lines)} parts")


main()
