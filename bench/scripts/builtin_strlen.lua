-- Calls string.len in a loop.
local n = 600000
local s = "hello, world"
local total = 0
for i = 1, n do
  total = total + string.len(s)
end
print("result: " .. total)
