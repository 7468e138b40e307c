/*
 * One call of card_trans from C: the request line from the command line (or a sale of 123.45
 * against hosts on 127.0.0.1 ports 6001 and 6002 and the terminal on COM 1), the result printed
 * as the library leaves it (GBK text), and card_trans's return value as the exit status.
 *
 *   cc card_trans_example.c $(pkg-config --cflags --libs quendal) -o card_trans_example
 *   ./card_trans_example "1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||1|..."
 */
#include <quendal/card_trans.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  const char* request = argc > 1 ? argv[1]
                                 : "1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||1|"
                                   "127.0.0.1|6001|30|127.0.0.1|6002|30";
  /* card_trans writes all QUENDAL_RESULT_SIZE bytes and no terminator: keep one byte more for
     it. What the buffer held beforehand stays in bytes 40.. of an approved result, so clear it. */
  char result[QUENDAL_RESULT_SIZE + 1];
  size_t length;
  int rc;

  memset(result, ' ', sizeof result);
  rc = card_trans(request, result); /* blocks for the whole transaction */
  result[QUENDAL_RESULT_SIZE] = '\0';

  /* Approved: the terminal's text is bytes 0..39. Failed: the text, then spaces. */
  length = rc == 0 ? 40 : QUENDAL_RESULT_SIZE;
  while (length > 0 && result[length - 1] == ' ') --length;
  result[length] = '\0';
  printf("Quendal %s: card_trans returned %d (%s): %s\n", QUENDAL_VERSION_STRING, rc,
         rc == 0 ? "approved" : "failed", result);
  return rc;
}
