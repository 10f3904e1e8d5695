# Reads a 100,000-line text file line by line and counts the lines that hold a word. bench/run.sh makes
# the file (file_lines.txt) in the folder it runs the benchmarks in.
set f [open file_lines.txt r]
set lines 0
set found 0
while {[gets $f line] >= 0} {
    incr lines
    if {[string first needle $line] >= 0} {
        incr found
    }
}
close $f
puts "result: $lines $found"
