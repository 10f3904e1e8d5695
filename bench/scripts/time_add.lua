-- Advances a date-time 100,000 times by 1 day 2:03:04, reading and writing it as text each time.
-- os.time carries the fields that overflow; run.sh runs the peers in UTC, so no daylight saving shifts them.
local n = 100000
local t = "2000:01:01:00:00:00"
for i = 1, n do
  local y, mo, d, h, mi, s = t:match("(%d+):(%d+):(%d+):(%d+):(%d+):(%d+)")
  local stamp = os.time{year = tonumber(y), month = tonumber(mo), day = tonumber(d) + 1,
                        hour = tonumber(h) + 2, min = tonumber(mi) + 3, sec = tonumber(s) + 4}
  t = os.date("%Y:%m:%d:%H:%M:%S", stamp)
end
print("result: " .. t)
