# One mixed arithmetic and string expression, evaluated a million times.
n = 1000000
for i in range(1, n + 1):
    v = str((i * 7 + 3) % 97) + "/" + str(i // 13 + 2 ** 3) + "-" + str(i << 2 | 1)
print("result:", v)
