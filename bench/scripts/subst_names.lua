-- Reads and writes variables whose names are built while the loop runs (globals by name).
local n = 700000
for k = 0, 9 do
  _G["slot" .. k] = 0
end
for i = 1, n do
  local k = i % 10
  _G["slot" .. k] = _G["slot" .. k] + i % 7
end
print("result: " .. slot0 .. " " .. slot9)
