# Builds a 1 MB buffer of 65,536 fixed 16-byte records, one pack per field (a 32-bit number, a 16-bit
# number, a byte and a double), then reads every field back with unpacks and adds the fields up.
import struct
records = 65536
size = 16
buf = bytearray(records * size)
for i in range(records):
    off = i * size
    struct.pack_into("<i", buf, off, (i * 7) % 10007 - 5000)
    struct.pack_into("<H", buf, off + 4, i % 30000)
    struct.pack_into("<B", buf, off + 6, i % 256)
    struct.pack_into("<d", buf, off + 8, (i % 1000) * 0.25)
ids = 0
small = 0
price = 0.0
for i in range(records):
    off = i * size
    ids = ids + struct.unpack_from("<i", buf, off)[0]
    small = small + struct.unpack_from("<H", buf, off + 4)[0] + struct.unpack_from("<B", buf, off + 6)[0]
    price = price + struct.unpack_from("<d", buf, off + 8)[0]
print("result:", len(buf), ids, small, int(price * 4))
