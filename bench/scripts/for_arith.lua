-- Integer arithmetic in a for loop: a running total kept below a prime.
local n = 700000
local total = 0
for i = 1, n do
  total = (total + i * 7 + 3) % 1000003
end
print("result: " .. total)
