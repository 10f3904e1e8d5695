# Advances a date-time 100,000 times by 1 day 2:03:04, reading and writing it as text each time.
set n 100000
set fmt "%Y:%m:%d:%H:%M:%S"
set t "2000:01:01:00:00:00"
for {set i 0} {$i < $n} {incr i} {
    set s [clock scan $t -format $fmt -timezone :UTC]
    set s [clock add $s 1 day 2 hours 3 minutes 4 seconds -timezone :UTC]
    set t [clock format $s -format $fmt -timezone :UTC]
}
puts "result: $t"
