# Sorts the loop counter into five tallies with a switch.
set n 250000
set a 0
set b 0
set c 0
set d 0
set e 0
for {set i 1} {$i <= $n} {incr i} {
    switch -- [expr {$i % 5}] {
        0 { incr a }
        1 { incr b }
        2 { incr c }
        3 { incr d }
        4 { incr e }
    }
}
puts "result: $a $b $c $d $e"
