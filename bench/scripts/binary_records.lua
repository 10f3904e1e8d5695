-- Builds a 1 MB buffer of 65,536 fixed 16-byte records, one string.pack per field (a 32-bit number, a
-- 16-bit number, a byte, a padding byte and a double), then reads every field back with string.unpack and
-- adds the fields up.
local records = 65536
local size = 16
local pieces = {}
for i = 0, records - 1 do
  pieces[#pieces + 1] = string.pack("<i4", (i * 7) % 10007 - 5000)
  pieces[#pieces + 1] = string.pack("<I2", i % 30000)
  pieces[#pieces + 1] = string.pack("<B", i % 256)
  pieces[#pieces + 1] = string.pack("x")
  pieces[#pieces + 1] = string.pack("<d", (i % 1000) * 0.25)
end
local buf = table.concat(pieces)
local ids, small, price = 0, 0, 0.0
for i = 0, records - 1 do
  local off = i * size + 1
  ids = ids + string.unpack("<i4", buf, off)
  small = small + string.unpack("<I2", buf, off + 4) + string.unpack("<B", buf, off + 6)
  price = price + string.unpack("<d", buf, off + 8)
end
print("result: " .. #buf .. " " .. ids .. " " .. small .. " " .. math.floor(price * 4))
