# Calls string length in a loop.
set n 600000
set s "hello, world"
set total 0
for {set i 1} {$i <= $n} {incr i} {
    set total [expr {$total + [string length $s]}]
}
puts "result: $total"
