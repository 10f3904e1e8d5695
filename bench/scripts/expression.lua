-- One mixed arithmetic and string expression, evaluated a million times.
-- (Lua's power operator gives a float; 2 ** 3 is written as the integer 8.)
local n = 1000000
local v
for i = 1, n do
  v = tostring((i * 7 + 3) % 97) .. "/" .. tostring(i // 13 + 8) .. "-" .. tostring(i << 2 | 1)
end
print("result: " .. v)
