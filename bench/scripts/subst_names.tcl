# Reads and writes variables whose names are built while the loop runs (set with a substituted name).
set n 700000
for {set k 0} {$k <= 9} {incr k} {
    set slot$k 0
}
for {set i 1} {$i <= $n} {incr i} {
    set k [expr {$i % 10}]
    set slot$k [expr {[set slot$k] + $i % 7}]
}
puts "result: $slot0 $slot9"
