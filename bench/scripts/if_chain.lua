-- Sorts the loop counter into four tallies with an if/elseif chain.
local n = 300000
local a, b, c, d = 0, 0, 0, 0
for i = 1, n do
  local m = i % 4
  if m == 0 then
    a = a + 1
  elseif m == 1 then
    b = b + 1
  elseif m == 2 then
    c = c + 1
  else
    d = d + 1
  end
end
print("result: " .. a .. " " .. b .. " " .. c .. " " .. d)
