# One mixed arithmetic and string expression, evaluated a million times.
set n 1000000
for {set i 1} {$i <= $n} {incr i} {
    set v "[expr {($i * 7 + 3) % 97}]/[expr {$i / 13 + 2 ** 3}]-[expr {$i << 2 | 1}]"
}
puts "result: $v"
