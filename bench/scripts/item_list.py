# Builds a 2,000-item list item by item, then reads every item back; several rounds.
# Items are kept as text, as in a delimited list.
rounds = 20
size = 2000
for r in range(1, rounds + 1):
    items = []
    for i in range(1, size + 1):
        items.append(str(i * 3))
    count = len(items)
    total = 0
    for i in range(count):
        total = total + int(items[i])
print("result:", count, total)
