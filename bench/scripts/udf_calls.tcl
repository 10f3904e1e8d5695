# A small procedure with local variables, called 1,000 times per round.
proc area {w h} {
    set a [expr {$w * $h}]
    set b [expr {$a + $w + $h}]
    return [expr {$b % 1000}]
}

set rounds 1500
set total 0
for {set r 1} {$r <= $rounds} {incr r} {
    for {set i 1} {$i <= 1000} {incr i} {
        set total [expr {($total + [area $i $r]) % 1000003}]
    }
}
puts "result: $total"
