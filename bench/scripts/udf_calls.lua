-- A small function with local variables, called 1,000 times per round.
local function area(w, h)
  local a = w * h
  local b = a + w + h
  return b % 1000
end

local rounds = 1500
local total = 0
for r = 1, rounds do
  for i = 1, 1000 do
    total = (total + area(i, r)) % 1000003
  end
end
print("result: " .. total)
