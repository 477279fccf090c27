"""Builds a dictionary of 200,000 text keys, then reads every key back."""


def main():
    n = 200000
    m = {}
    for i in range(1, n + 1):
        m["key" + str(i)] = i
    total = 0
    for i in range(1, n + 1):
        total += m["key" + str(i)]
    print(total)


main()
