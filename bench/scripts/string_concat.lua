-- Builds a string by appending to it, piece by piece, many times over.
local rounds = 7500
local pieces = 100
local s
for r = 1, rounds do
  s = ""
  for k = 1, pieces do
    s = s .. "ab"
  end
end
print("result: " .. s)
