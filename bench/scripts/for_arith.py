# Integer arithmetic in a for loop: a running total kept below a prime.
n = 700000
total = 0
for i in range(1, n + 1):
    total = (total + i * 7 + 3) % 1000003
print("result:", total)
