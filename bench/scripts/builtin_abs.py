# Calls the abs built-in in a loop, on arguments of both signs.
n = 600000
total = 0
for i in range(1, n + 1):
    total = total + abs(i % 1000 - 500)
print("result:", total)
