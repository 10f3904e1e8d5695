# Walks a 5,000-line text file line by line through string functions, several rounds. bench/run.sh makes
# the file (text_walk.txt) in the folder it runs the benchmarks in.
rounds = 70
total = 0
for r in range(rounds):
    with open("text_walk.txt", encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\n")
            total = total + len(line) + len(line.split(" "))
            if "fox" in line:
                total = total + len(line[:12].strip())
print("result:", total)
