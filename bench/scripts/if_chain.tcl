# Sorts the loop counter into four tallies with an if/elseif chain.
set n 300000
set a 0
set b 0
set c 0
set d 0
for {set i 1} {$i <= $n} {incr i} {
    set m [expr {$i % 4}]
    if {$m == 0} {
        incr a
    } elseif {$m == 1} {
        incr b
    } elseif {$m == 2} {
        incr c
    } else {
        incr d
    }
}
puts "result: $a $b $c $d"
