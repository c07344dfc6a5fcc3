# cmake -DIN=<file> -DOUT=<file> -P crlf.cmake: copies IN to OUT with every
# line ending in CR LF, for readers on Windows.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
