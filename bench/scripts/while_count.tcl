# Counts to n with a while loop.
set n 1000000
set i 0
while {$i < $n} {
    set i [expr {$i + 1}]
}
puts "result: $i"
