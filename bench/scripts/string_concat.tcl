# Builds a string by appending to it, piece by piece, many times over.
set rounds 7500
set pieces 100
for {set r 1} {$r <= $rounds} {incr r} {
    set s ""
    for {set k 1} {$k <= $pieces} {incr k} {
        append s "ab"
    }
}
puts "result: $s"
