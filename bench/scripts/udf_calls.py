# A small function with local variables, called 1,000 times per round.
def area(w, h):
    a = w * h
    b = a + w + h
    return b % 1000

rounds = 1500
total = 0
for r in range(1, rounds + 1):
    for i in range(1, 1001):
        total = (total + area(i, r)) % 1000003
print("result:", total)
