// Runs the guide's C# recipe for each request line given, printing "<return value> <text>" in
// UTF-8, one line per call.
using System;
using System.Text;

static class Driver
{
    static void Main(string[] args)
    {
        Console.OutputEncoding = new UTF8Encoding(false);
        foreach (string request in args)
        {
            string text;
            int rc = Quendal.CardTrans(request, out text);
            Console.WriteLine(rc + " " + text);
        }
    }
}
