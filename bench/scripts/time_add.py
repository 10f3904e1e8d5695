# Advances a date-time 100,000 times by 1 day 2:03:04, reading and writing it as text each time.
from datetime import datetime, timedelta
n = 100000
fmt = "%Y:%m:%d:%H:%M:%S"
t = "2000:01:01:00:00:00"
delta = timedelta(days=1, hours=2, minutes=3, seconds=4)
for i in range(n):
    t = (datetime.strptime(t, fmt) + delta).strftime(fmt)
print("result:", t)
