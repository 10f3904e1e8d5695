# Calls the len built-in in a loop.
n = 600000
s = "hello, world"
total = 0
for i in range(1, n + 1):
    total = total + len(s)
print("result:", total)
