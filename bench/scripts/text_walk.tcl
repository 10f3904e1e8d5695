# Walks a 5,000-line text file line by line through string commands, several rounds. bench/run.sh makes
# the file (text_walk.txt) in the folder it runs the benchmarks in.
set rounds 70
set total 0
for {set r 0} {$r < $rounds} {incr r} {
    set f [open text_walk.txt r]
    while {[gets $f line] >= 0} {
        set total [expr {$total + [string length $line] + [llength [split $line " "]]}]
        if {[string first fox $line] >= 0} {
            set total [expr {$total + [string length [string trim [string range $line 0 11]]]}]
        }
    }
    close $f
}
puts "result: $total"
