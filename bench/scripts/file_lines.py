# Reads a 100,000-line text file line by line and counts the lines that hold a word. bench/run.sh makes
# the file (file_lines.txt) in the folder it runs the benchmarks in.
lines = 0
found = 0
with open("file_lines.txt", encoding="latin-1") as f:
    for line in f:
        lines = lines + 1
        if "needle" in line:
            found = found + 1
print("result:", lines, found)
