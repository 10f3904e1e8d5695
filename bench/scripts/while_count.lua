-- Counts to n with a while loop.
local n = 1000000
local i = 0
while i < n do
  i = i + 1
end
print("result: " .. i)
