# Sorts the loop counter into five tallies; Python's plain form of a switch is an if/elif chain.
n = 250000
a = 0
b = 0
c = 0
d = 0
e = 0
for i in range(1, n + 1):
    m = i % 5
    if m == 0:
        a = a + 1
    elif m == 1:
        b = b + 1
    elif m == 2:
        c = c + 1
    elif m == 3:
        d = d + 1
    elif m == 4:
        e = e + 1
print("result:", a, b, c, d, e)
