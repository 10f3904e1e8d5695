-- Sorts the loop counter into five tallies; Lua's form of a switch is an if/elseif chain.
local n = 250000
local a, b, c, d, e = 0, 0, 0, 0, 0
for i = 1, n do
  local m = i % 5
  if m == 0 then
    a = a + 1
  elseif m == 1 then
    b = b + 1
  elseif m == 2 then
    c = c + 1
  elseif m == 3 then
    d = d + 1
  elseif m == 4 then
    e = e + 1
  end
end
print("result: " .. a .. " " .. b .. " " .. c .. " " .. d .. " " .. e)
