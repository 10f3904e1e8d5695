# Counts to n with a while loop.
n = 1000000
i = 0
while i < n:
    i = i + 1
print("result:", i)
