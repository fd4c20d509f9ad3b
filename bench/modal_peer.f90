! The same modal export written the way a Fortran program writes it: punch
! cards with formatted I/O, OUTPUT2 records with unformatted sequential I/O.
! Arguments: kind (punch-time, punch-frequency or output2-time), modes,
! steps, file. Prints the seconds the writing took, wall-clock and CPU
! (the data is made beforehand).
program modal_peer
  implicit none
  character(len=32) :: kind, arg
  character(len=512) :: path
  integer :: m, n, i, s, r
  integer(8) :: c0, c1, rate
  real(8) :: cpu0, cpu1
  real(8), allocatable :: t(:), ud(:, :), uv(:, :), ua(:, :), bd(:, :), bv(:, :), ba(:, :)
  real(8), allocatable :: ucf(:, :), bcf(:, :)

  call get_command_argument(1, kind)
  call get_command_argument(2, arg)
  read (arg, *) m
  call get_command_argument(3, arg)
  read (arg, *) n
  call get_command_argument(4, path)

  allocate (t(n), ud(n, m), uv(n, m), ua(n, m), bd(n, 6), bv(n, 6), ba(n, 6))
  allocate (ucf(n, 2*m), bcf(n, 12))
  do s = 1, n
    t(s) = (s - 1)*1d-3
  end do
  do r = 1, m
    do s = 1, n
      ud(s, r) = sin(dble((r - 1)*n + s - 1))*1d-3
    end do
  end do
  uv = ud
  ua = ud
  do r = 1, 6
    do s = 1, n
      bd(s, r) = cos(dble((r - 1)*n + s - 1))
    end do
  end do
  bv = bd
  ba = bd
  do r = 1, 2*m
    do s = 1, n
      ucf(s, r) = sin(dble((r - 1)*n + s - 1))*1d-3
    end do
  end do
  do r = 1, 12
    do s = 1, n
      bcf(s, r) = cos(dble((r - 1)*n + s - 1))
    end do
  end do

  call system_clock(c0, rate)
  call cpu_time(cpu0)
  select case (trim(kind))
  case ('punch-time')
    open (10, file=trim(path), form='formatted', status='replace')
    call dti('TOL     ')
    call dmi_head('UHT     ', 1, m)
    do s = 1, n
      call real_column('UHT     ', 3*s - 2, ud, m, s)
      call real_column('UHT     ', 3*s - 1, uv, m, s)
      call real_column('UHT     ', 3*s, ua, m, s)
    end do
    call dmi_head('BHT     ', 1, 6)
    do s = 1, n
      call real_column('BHT     ', 3*s - 2, bd, 6, s)
      call real_column('BHT     ', 3*s - 1, bv, 6, s)
      call real_column('BHT     ', 3*s, ba, 6, s)
    end do
    close (10)
  case ('punch-frequency')
    open (10, file=trim(path), form='formatted', status='replace')
    call dti('FOL     ')
    call dmi_head('UHF     ', 3, m)
    do s = 1, n
      call complex_column('UHF     ', 3*s - 2, ucf, m, s)
    end do
    call dmi_head('BHF     ', 3, 6)
    do s = 1, n
      call complex_column('BHF     ', 3*s - 2, bcf, 6, s)
    end do
    close (10)
  case ('output2-time')
    open (11, file=trim(path), form='unformatted', access='sequential', status='replace')
    call block_head('TOL     ', [101, n, 1, 2, 1, 1, 9998])
    write (11) 1
    write (11) 0
    write (11) n + 2
    write (11) 'TOL     ', (real(t(i), 4), i=1, n)
    write (11) -3
    call block_end()
    call output2_matrix('UHT     ', ud, uv, ua, m)
    call output2_matrix('BHT     ', bd, bv, ba, 6)
    write (11) 0
    close (11)
  end select
  call system_clock(c1)
  call cpu_time(cpu1)
  print '(2F12.6)', dble(c1 - c0)/dble(rate), cpu1 - cpu0

contains

  subroutine dti(name)
    character(len=8), intent(in) :: name
    write (10, '(A8,A8,7I8)') 'DTI     ', name, 0, n, 1, 2, 1, 1, 10000
    ! ENDREC closes the last line of values, or stands on a line of its own
    ! when that line is full.
    do i = 1, n, 4
      if (i + 3 < n) then
        write (10, '(A8,1P4E16.8)') '*       ', t(i:i + 3)
      else if (i + 3 == n) then
        write (10, '(A8,1P4E16.8)') '*       ', t(i:n)
        write (10, '(A8,A16)') '*       ', '          ENDREC'
      else
        write (10, '(A8,1P4E16.8)', advance='no') '*       ', t(i:n)
        write (10, '(A16)') '          ENDREC'
      end if
    end do
    if (n == 0) write (10, '(A8,A16)') '*       ', '          ENDREC'
  end subroutine dti

  subroutine dmi_head(name, input_type, rows)
    character(len=8), intent(in) :: name
    integer, intent(in) :: input_type, rows
    write (10, '(A8,A8,4I8,8X,2I8)') 'DMI     ', name, 0, 2, input_type, 0, rows, 3*n
  end subroutine dmi_head

  subroutine real_column(name, j, x, rows, s)
    character(len=8), intent(in) :: name
    integer, intent(in) :: j, rows, s
    real(8), intent(in) :: x(:, :)
    integer :: first
    ! Leading zeros are left out, a column of zeros altogether.
    do first = 1, rows
      if (x(s, first) /= 0d0) exit
    end do
    if (first > rows) return
    write (10, '(A8,A8,8X,2I16,1PE16.8)') 'DMI*    ', name, j, first, x(s, first)
    do i = first + 1, rows, 4
      write (10, '(A8,1P4E16.8)') '*       ', x(s, i:min(i + 3, rows))
    end do
  end subroutine real_column

  subroutine complex_column(name, j, x, rows, s)
    character(len=8), intent(in) :: name
    integer, intent(in) :: j, rows, s
    real(8), intent(in) :: x(:, :)
    integer :: first
    do first = 1, rows
      if (x(s, 2*first - 1) /= 0d0 .or. x(s, 2*first) /= 0d0) exit
    end do
    if (first > rows) return
    write (10, '(A8,A8,8X,2I8,1P2E16.8)') 'DMI*    ', name, j, first, x(s, 2*first - 1), x(s, 2*first)
    do i = first + 1, rows, 2
      write (10, '(A8,1P4E16.8)') '*       ', x(s, 2*i - 1:2*min(i + 1, rows))
    end do
  end subroutine complex_column

  subroutine block_head(name, trailer)
    character(len=8), intent(in) :: name
    integer, intent(in) :: trailer(7)
    write (11) 2
    write (11) name
    write (11) -1
    write (11) 7
    write (11) trailer
    write (11) -2
  end subroutine block_head

  subroutine block_end()
    write (11) 1
    write (11) 0
    write (11) 0
  end subroutine block_end

  subroutine output2_matrix(name, d, v, a, rows)
    character(len=8), intent(in) :: name
    real(8), intent(in) :: d(:, :), v(:, :), a(:, :)
    integer, intent(in) :: rows
    call block_head(name, [101, 3*n, rows, 2, 2, rows, 10000])
    write (11) 1
    write (11) 0
    write (11) 2
    write (11) name
    write (11) -3
    do s = 1, n
      call output2_column(d(s, :), rows)
      call output2_column(v(s, :), rows)
      call output2_column(a(s, :), rows)
    end do
    call block_end()
  end subroutine output2_matrix

  subroutine output2_column(col, rows)
    real(8), intent(in) :: col(:)
    integer, intent(in) :: rows
    write (11) 1
    write (11) 1
    write (11) 2*rows
    write (11) 1, col(1:rows)
    write (11) -3
  end subroutine output2_column

end program modal_peer
