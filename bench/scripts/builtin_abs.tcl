# Calls the abs function in a loop, on arguments of both signs.
set n 600000
set total 0
for {set i 1} {$i <= $n} {incr i} {
    set total [expr {$total + abs($i % 1000 - 500)}]
}
puts "result: $total"
