"""Creates 300,000 objects of a class with __init__ and calls a method on each."""


class Item:
    def __init__(self, value):
        self.value = value

    def get(self):
        return self.value


def main():
    total = 0
    for i in range(1, 300000 + 1):
        item = Item(i)
        total += item.get()
    print(total)


main()
