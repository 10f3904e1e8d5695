# Builds a 2,000-item list item by item, then reads every item back; several rounds.
set rounds 20
set size 2000
for {set r 1} {$r <= $rounds} {incr r} {
    set items {}
    for {set i 1} {$i <= $size} {incr i} {
        lappend items [expr {$i * 3}]
    }
    set count [llength $items]
    set total 0
    for {set i 0} {$i < $count} {incr i} {
        set total [expr {$total + [lindex $items $i]}]
    }
}
puts "result: $count $total"
