"""InStr and SubStr over a 1,048,576-character text: a hundred thousand calls of each,
at positions spread over the whole text; prints the sum of the results."""


def main():
    s = "abcdefghijklmno,"
    for _ in range(16):
        s += s
    total = 0
    for i in range(1, 100000 + 1):
        pos = (i * 7919) % 1000000 + 1
        total += s.find("no,", pos - 1) + 1
        total += ord(s[pos - 1:pos - 1 + 5][0])
    print(total)


main()
