// Entry point of zema-kt.
int main() { return 0; }
