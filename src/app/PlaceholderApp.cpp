// Temporary translation unit while the application object is being written.
namespace plyfold {
int placeholder() { return 0; }
} // namespace plyfold
