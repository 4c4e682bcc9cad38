# Every code with its message, as tests/data/error_messages.txt lists them.
$t messages | cmp - "${DATA}error_messages.txt"
