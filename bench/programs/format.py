"""A million calls of Format("{:08.3f}", x); prints the total length of the
results and the last one."""


def main():
    total = 0
    last = ""
    for i in range(1, 1000000 + 1):
        last = "{:08.3f}".format((i % 1000) / 8.0)
        total += len(last)
    print(total, last)


main()
