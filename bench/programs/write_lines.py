"""Two hundred thousand lines written through a file object; prints the size
of the file."""
import os


def main():
    with open("out.txt", "w", encoding="latin-1", newline="") as handle:
        write = handle.write
        for i in range(1, 200000 + 1):
            write(f"line {i} of the output\n")
    print(os.path.getsize("out.txt"))


main()
