# Reads and writes variables whose names are built while the loop runs (the module's variables by name).
n = 700000
names = globals()
for k in range(10):
    names["slot%d" % k] = 0
for i in range(1, n + 1):
    k = i % 10
    names["slot%d" % k] = names["slot%d" % k] + i % 7
print("result:", slot0, slot9)
