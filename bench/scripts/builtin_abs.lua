-- Calls math.abs in a loop, on arguments of both signs.
local n = 600000
local total = 0
for i = 1, n do
  total = total + math.abs(i % 1000 - 500)
end
print("result: " .. total)
