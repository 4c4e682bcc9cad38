# Only a decimal number in the range of an int is a code.
for code in 2147483648 0x43A abc 10x '' ' 1082'; do
  $t message "$code"; echo "exit $?"
done
