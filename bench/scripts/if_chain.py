# Sorts the loop counter into four tallies with an if/elif chain.
n = 300000
a = 0
b = 0
c = 0
d = 0
for i in range(1, n + 1):
    m = i % 4
    if m == 0:
        a = a + 1
    elif m == 1:
        b = b + 1
    elif m == 2:
        c = c + 1
    else:
        d = d + 1
print("result:", a, b, c, d)
