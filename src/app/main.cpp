// Program entry of web2arc.
int main()
{
    return 0;
}
