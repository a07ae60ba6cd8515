// Asio and Beast are compiled once, here, instead of in every file that uses them.
#include <boost/asio/impl/src.hpp>
#include <boost/asio/ssl/impl/src.hpp>
#include <boost/beast/src.hpp>
