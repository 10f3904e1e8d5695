# Integer arithmetic in a for loop: a running total kept below a prime.
set n 700000
set total 0
for {set i 1} {$i <= $n} {incr i} {
    set total [expr {($total + $i * 7 + 3) % 1000003}]
}
puts "result: $total"
