# For the embedding scripts (script mode): a file's bytes as a C array's initialiser
# ("0x2f,0x2a,...") and how many there are.
function(embedded_bytes path bytesVariable sizeVariable)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  set(${bytesVariable} "${bytes}" PARENT_SCOPE)
  set(${sizeVariable} ${size} PARENT_SCOPE)
endfunction()
