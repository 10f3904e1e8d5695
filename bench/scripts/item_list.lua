-- Builds a 2,000-item list item by item, then reads every item back; several rounds.
-- Items are kept as text, as in a delimited list.
local rounds = 20
local size = 2000
local count, total
for r = 1, rounds do
  local items = {}
  for i = 1, size do
    items[#items + 1] = tostring(i * 3)
  end
  count = #items
  total = 0
  for i = 1, count do
    total = total + tonumber(items[i])
  end
end
print("result: " .. count .. " " .. total)
