# A sign is read as an int takes it, as ErrorMessageForId does.
$t message +1102; echo "exit $?"
# A code without a message.
$t message -1082; echo "exit $?"
$t message 2147483647
