! Writes a fixed set of unformatted sequential records with gfortran's own
! runtime into the file named on the command line; the record runtime of
! the library writes the same set and the two files must be identical.
program record_framing
  use, intrinsic :: iso_c_binding
  implicit none
  character(len=512) :: path
  integer(c_int32_t) :: i
  call get_command_argument(1, path)
  open(10, file=trim(path), form='unformatted', access='sequential', status='replace')
  write(10)                                        ! empty record
  write(10) 7_c_int32_t
  write(10) -3_c_int32_t, 2.5d0, 'AB'
  write(10) (i, i = 1, 10)
  write(10) 1.0d0, -2.0d0, 1d300
  write(10) 'abcdefghijklmnopqrstuvwxyz', 1.5
  close(10)
end program record_framing
