// The body of the terminal's final answer: 555 bytes of fixed-width character fields. The driver
// reads the response code and text; the result report carries the record to the business host.
#pragma once

namespace quendal {

struct ResultRecord {
  char area0[2];
  char trans_type[2];  // as in the transaction record
  char area4[2];
  char resp_code[2];   // two digits; "00" is approved
  char resp_text[40];  // GBK
  char area48[6];
  char ref15[15];   // the transaction record's ref15 as the terminal returns it
  char amount[12];  // twelve digits, the last two hundredths
  char area81[6];
  char area87[15];
  char text2[40];  // second text, GBK
  char area142[8];
  char area150[19];
  char area169[4];  // two pairs of digits
  char area173[6];
  char date_time[14];  // YYYYMMDDhhmmss
  char area193[6];
  char area199[12];
  char area211[6];
  char area217[6];
  char stamp[6];  // the transaction record's stamp as the terminal returns it
  char area229[6];
  char area235[320];
};
static_assert(sizeof(ResultRecord) == 555, "the result record is 555 bytes");

}  // namespace quendal
