// The tray program; for now it only proves that the libraries load.
int main()
{
    return 0;
}
