"""StrReplace on a 1,048,576-character text, two hundred times: every "no," becomes
"NO;;"; prints the sum of the replacement counts and result lengths."""


def main():
    s = "abcdefghijklmno,"
    for _ in range(16):
        s += s
    total = 0
    for _ in range(200):
        n = s.count("no,")
        r = s.replace("no,", "NO;;")
        total += n + len(r)
    print(total)


main()
