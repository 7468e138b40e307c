{ Runs the guide's Delphi recipe (unit QuendalCall) for each request line given, printing
  "<return value> <text>" in UTF-8, one line per call. }
program Driver;

{$MODE DELPHIUNICODE}

uses
  QuendalCall;

var
  I, Rc: Integer;
  Text: string;
begin
  for I := 1 to ParamCount do
  begin
    Rc := CardTrans(ParamStr(I), Text);
    WriteLn(Rc, ' ', UTF8Encode(Text));
  end;
end.
