# Builds a string by appending to it, piece by piece, many times over.
rounds = 7500
pieces = 100
for r in range(1, rounds + 1):
    s = ""
    for k in range(1, pieces + 1):
        s = s + "ab"
print("result:", s)
