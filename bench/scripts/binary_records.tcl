# Builds a 1 MB buffer of 65,536 fixed 16-byte records, one binary format per field (a 32-bit number, a
# 16-bit number, a byte, a padding byte and a double), then reads every field back with binary scan and
# adds the fields up.
set records 65536
set size 16
set buf ""
for {set i 0} {$i < $records} {incr i} {
    append buf [binary format i [expr {($i * 7) % 10007 - 5000}]]
    append buf [binary format s [expr {$i % 30000}]]
    append buf [binary format c [expr {$i % 256}]]
    append buf [binary format x]
    append buf [binary format q [expr {($i % 1000) * 0.25}]]
}
set ids 0
set small 0
set price 0.0
for {set i 0} {$i < $records} {incr i} {
    set off [expr {$i * $size}]
    binary scan $buf @${off}i id
    binary scan $buf @[expr {$off + 4}]su word
    binary scan $buf @[expr {$off + 6}]cu byte
    binary scan $buf @[expr {$off + 8}]q value
    set ids [expr {$ids + $id}]
    set small [expr {$small + $word + $byte}]
    set price [expr {$price + $value}]
}
puts "result: [string length $buf] $ids $small [expr {int($price * 4)}]"
